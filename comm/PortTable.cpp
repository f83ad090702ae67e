#include "comm/PortTable.h"

namespace zop {

PortRecord::~PortRecord()
{
    while (Receivers) {
        TriggerHandler* next = Receivers->Next;
        delete Receivers;
        Receivers = next;
    }
}

} // namespace zop
