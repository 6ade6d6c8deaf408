#include "mail/id_message_client.h"

#include "mail/id_message.h"
#include "mail/id_message_writer.h"
#include "platform/clock.h"

namespace sendrix::mail {

void TIdMessageClient::WriteMessage(TIdMessage& message) {
    WriteMessageTo(*this, message);
}

void TIdMessageClient::WriteMessageTo(IdWriteTarget& target, TIdMessage& message) {
    const platform::Clock& clock = m_clock ? *m_clock : platform::systemClock();
    sendrix::mail::WriteMessage(target, message, clock, nullptr, &m_wireLines);
}

}  // namespace sendrix::mail
