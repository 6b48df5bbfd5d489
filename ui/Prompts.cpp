#include "Prompts.h"

#include "DDKError.h"
#include "LogWriter.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

namespace {

QString Text(const std::string& S)
{
    return QString::fromStdString(S);
}

// The width a window needs to show its whole caption in the desktop's title
// bar, at most the width of its screen.
int TitleBarWidth(const QWidget& Window)
{
    // The frame is the desktop's: its title font may be bold, the icon and
    // the frame's buttons share the bar with the caption, and its borders
    // come on top of the window's width.
    constexpr int FrameButtons = 160;
    constexpr int FrameBorders = 20;
    QFont Font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    Font.setBold(true);
    int Width = QFontMetrics(Font).horizontalAdvance(Window.windowTitle()) + FrameButtons;
    if (const QScreen* Screen = Window.screen())
        Width = std::min(Width, Screen->availableGeometry().width() - FrameBorders);
    return Width;
}

} // namespace

TDesktopOpener::TDesktopOpener(std::function<void(const std::string& Reason)> OnFailure)
    : FOnFailure(std::move(OnFailure))
{
    // Each click waits on its own thread: one opener slow to fail holds no other.
    FWaiters.setMaxThreadCount(8);
}

TDesktopOpener::~TDesktopOpener()
{
    FWaiters.waitForDone();
}

void TDesktopOpener::Open(const std::string& Url)
{
    FWaiters.start([this, Url] {
        try {
            ::OpenUrl(Url);
        } catch (...) {
            // Queued to the receiver, which outlives this thread.
            QMetaObject::invokeMethod(
                &FReceiver, [this, Reason = DDKCurrentErrorMessage()] { FOnFailure(Reason); },
                Qt::QueuedConnection);
        }
    });
}

TQtPrompts::TQtPrompts() : FOpener([this](const std::string& Reason) { Message(Reason, TKind::Error); }) {}

void TQtPrompts::Message(const std::string& Message, TKind Kind)
{
    QWidget* Owner = QApplication::activeWindow();
    const QString Caption = QApplication::applicationName();
    switch (Kind) {
    case TKind::Information:
        QMessageBox::information(Owner, Caption, Text(Message));
        break;
    case TKind::Warning:
        QMessageBox::warning(Owner, Caption, Text(Message));
        break;
    case TKind::Error:
        QMessageBox::critical(Owner, Caption, Text(Message));
        break;
    }
}

bool TQtPrompts::Confirm(const std::string& Question)
{
    return QMessageBox::question(QApplication::activeWindow(), QApplication::applicationName(),
                                 Text(Question), QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> TQtPrompts::InputBox(const std::string& Caption, const std::string& Prompt,
                                                const std::string& Default)
{
    QInputDialog Box(QApplication::activeWindow());
    Box.setInputMode(QInputDialog::TextInput);
    Box.setWindowTitle(Text(Caption));
    Box.setLabelText(Text(Prompt));
    Box.setTextValue(Text(Default));
    Box.resize(std::max(Box.sizeHint().width(), TitleBarWidth(Box)), Box.sizeHint().height());
    if (Box.exec() != QDialog::Accepted)
        return std::nullopt;
    return Box.textValue().toStdString();
}

std::optional<std::string> TQtPrompts::BrowseFolder(const std::string& Prompt)
{
    const QString Folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(), Text(Prompt));
    if (Folder.isEmpty())
        return std::nullopt;
    return Folder.toStdString();
}

void TQtPrompts::OpenUrl(const std::string& Url)
{
    FOpener.Open(Url);
}
