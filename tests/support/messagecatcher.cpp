#include "support/messagecatcher.h"

#include <QAbstractButton>
#include <QApplication>

namespace testsupport
{

MessageCatcher::MessageCatcher()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &MessageCatcher::answer);
    m_timer.start();
}

QStringList MessageCatcher::texts() const
{
    QStringList texts;
    for (const Message &message : m_messages)
        texts << message.text;
    return texts;
}

void MessageCatcher::answer()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_messages.append({box->windowTitle(), box->text(), box->standardButtons(), box->icon()});
    box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
}

} // namespace testsupport
