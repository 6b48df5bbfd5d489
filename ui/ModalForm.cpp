#include "ModalForm.h"

#include <QCloseEvent>

TModalForm::TModalForm(QWidget* Parent) : QDialog(Parent)
{
    setModal(true);
}

int TModalForm::ShowModal()
{
    ModalResult = mrNone;
    return exec();
}

void TModalForm::CheckModalResult()
{
    if (ModalResult == mrNone || !isVisible())
        return;
    if (!CloseQuery()) {
        ModalResult = mrNone;
        return;
    }
    done(ModalResult);
}

void TModalForm::closeEvent(QCloseEvent* Event)
{
    // The close box, or a close request of the desktop: a cancel, whatever
    // result was pending.
    if (!CloseQuery()) {
        ModalResult = mrNone;
        Event->ignore();
        return;
    }
    Event->accept();
    ModalResult = mrCancel;
    done(ModalResult);
}

void TModalForm::reject()
{
    // Escape: only a Cancel button answers it.
}
