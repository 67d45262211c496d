#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>
#include <functional>

#include "ui/qt/qt_message_dialog.h"

namespace qelto::testing_support {

// Runs `action` on the dialog once the next ShowMessageForm of `dialog` has opened it: the call
// is posted now and runs inside the dialog's modal loop. The dialog must be the application's
// active modal window.
inline void WhenOpen(QtMessageDialog& dialog, std::function<void(Tmessage_frm&)> action) {
  QTimer::singleShot(0, [&dialog, action = std::move(action)] {
    auto* form = qobject_cast<Tmessage_frm*>(QApplication::activeModalWidget());
    if (form == nullptr || form != dialog.Form() || !form->isVisible()) {
      ADD_FAILURE() << "no message dialog is open and modal";
      return;
    }
    action(*form);
  });
}

// Types `key` into the dialog's window, as the keyboard would: it goes to the focused control.
inline void Press(Tmessage_frm& form, Qt::Key key) {
  QTest::keyClick(form.windowHandle(), key);
}

// Fails when `form` is still open, and closes it then, so that a faulty dialog cannot hang the
// test run. The result 99 belongs to no way the dialog ends by itself.
inline void ExpectEnded(Tmessage_frm& form) {
  if (!form.isVisible()) return;
  ADD_FAILURE() << "the dialog is still open";
  form.done(99);
}

}  // namespace qelto::testing_support
