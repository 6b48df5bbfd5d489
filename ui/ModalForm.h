// A dialog shown modally that ends with a modal result, as the gradient
// buttons hand it over: a button gives the form its result before its click
// handlers run; once they return, a non-zero result ends the modal loop
// unless the form refuses to close (CloseQuery), and the result goes back to
// 0 when it refuses. The close box ends it with mrCancel. Escape does nothing
// by itself: a button marked Cancel answers it.
#pragma once

#include <QDialog>

inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrIgnore = 5;
inline constexpr int mrNo = 7;

class TModalForm : public QDialog
{
    Q_OBJECT

public:
    explicit TModalForm(QWidget* Parent = nullptr);

    // Shows the form and runs its modal loop; returns the result it ended with.
    int ShowModal();

    int ModalResult = mrNone;

    // Ends the modal loop when ModalResult is not 0 and the form agrees;
    // otherwise sets ModalResult back to 0. Buttons call it after their click.
    void CheckModalResult();

protected:
    // Whether the form may close now; a form that runs work refuses.
    virtual bool CloseQuery() { return true; }

    void closeEvent(QCloseEvent* Event) override;
    void reject() override;
};
