// SPDX-License-Identifier: MIT
#ifndef VORLAN_TESTS_PROMPTWATCH_H
#define VORLAN_TESTS_PROMPTWATCH_H

#include <QMessageBox>
#include <QTimer>

// Answers every modal message box shown while it lives and counts them.
// Host::answerNextPrompt answers one box only and outlives the test; this
// one is for tests that expect no box, so an unexpected one can neither
// hang the test nor be answered by a later test's watcher.
class PromptWatch
{
public:
    explicit PromptWatch(QMessageBox::StandardButton answer = QMessageBox::Cancel);

    int count() const;

private:
    QTimer m_poll;
    int m_count = 0;
};

#endif // VORLAN_TESTS_PROMPTWATCH_H
