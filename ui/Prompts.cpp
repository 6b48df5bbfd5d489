#include "Prompts.h"

#include "LogWriter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QString Text(const std::string& S)
{
    return QString::fromStdString(S);
}

} // namespace

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
    bool Confirmed = false;
    const QString Answer = QInputDialog::getText(QApplication::activeWindow(), Text(Caption), Text(Prompt),
                                                 QLineEdit::Normal, Text(Default), &Confirmed);
    if (!Confirmed)
        return std::nullopt;
    return Answer.toStdString();
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
    ::OpenUrl(Url);
}
