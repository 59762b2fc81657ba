#pragma once

#include <QMessageBox>
#include <QObject>
#include <QTimer>

namespace testsupport
{

// Answers every modal message box that opens while it lives: notes what the box showed, then
// presses its OK button.
class MessageCatcher : public QObject
{
public:
    struct Message {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
    };

    MessageCatcher();

    const QList<Message> &messages() const { return m_messages; }
    QStringList texts() const;

private:
    void answer();

    QTimer m_timer;
    QList<Message> m_messages;
};

} // namespace testsupport
