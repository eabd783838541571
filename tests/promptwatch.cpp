// SPDX-License-Identifier: MIT
#include "promptwatch.h"

#include <QAbstractButton>
#include <QApplication>

PromptWatch::PromptWatch(QMessageBox::StandardButton answer)
{
    m_poll.setInterval(5);
    QObject::connect(&m_poll, &QTimer::timeout, [this, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        ++m_count;
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->reject();
    });
    m_poll.start();
}

int PromptWatch::count() const
{
    return m_count;
}
