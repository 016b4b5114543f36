#pragma once
// Answers the dialog of the check before sending by one of its buttons
// ("btnSendAnyway" or "btnCancel") each time it shows, while this lives, and
// keeps what it listed. A window test that expects no dialog keeps one too,
// so a dialog that shows after all fails the test instead of hanging it.
#include "CheckForm.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

struct CheckFormAnswer {
    explicit CheckFormAnswer(const char* button)
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this, name = QString::fromLatin1(button)] {
            auto* form = qobject_cast<TCheckForm*>(QApplication::activeModalWidget());
            if (!form)
                return;
            ++Shown;
            Listed = form->LabelFindings->text();
            form->findChild<QPushButton*>(name)->click();
        });
        poll.start();
    }
    int Shown = 0;
    QString Listed;
    QTimer poll;
};
