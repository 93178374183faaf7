#pragma once

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

// Each form of the program exists at most once. showOnce<Form>() makes that one
// instance visible, modeless: the first call creates the form ("loads" it), runs
// its load step Form_Load() and centres it on the screen; a call while it is open
// only brings it to the front. Closing a form deletes it (Qt::WA_DeleteOnClose),
// the QPointer notices, and the next call loads a fresh instance.
//
// A form is any QWidget subclass with a default constructor and a public
// Form_Load(). Its constructor builds the controls; Form_Load() may show modal
// dialogs before the form is first drawn.
namespace showonce {

void centreOnScreen(QWidget *window);

template <class Form> QPointer<Form> &slot()
{
    static QPointer<Form> instance;
    return instance;
}

// The open instance, or nullptr when the form is not loaded.
template <class Form> Form *instance()
{
    return slot<Form>().data();
}

template <class Form> Form *show()
{
    QPointer<Form> &form = slot<Form>();
    if (form) {
        form->show();
        form->raise();
        form->activateWindow();
        return form;
    }
    form = new Form();
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->Form_Load();
    // The load step may have closed the form (it is then already gone).
    if (!form)
        return nullptr;
    centreOnScreen(form);
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

} // namespace showonce
