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

PortTable& Ports()
{
    // Never destroyed: a detached dispatcher thread may still use it while
    // the program's static objects are being destroyed at exit.
    static PortTable& table = *new PortTable;
    return table;
}

PortRecord* LookupPort(PortHandle port)
{
    if (port < 1 || port > MaxPorts)
        return nullptr;
    PortTable& table = Ports();
    if (table.InUse[port].load() == 0)
        return nullptr;
    PortRecord* record = table.Records[port].load();
    if (!record || record->ClosePending.load())
        return nullptr;
    return record;
}

PortRecord* FindPortByDevice(DeviceHandle device)
{
    if (device < 0)
        return nullptr;
    PortTable& table = Ports();
    std::lock_guard lock(table.Mutex);
    for (int port = 1; port <= MaxPorts; ++port) {
        PortRecord* record = table.Records[port].load();
        if (record && record->Device.load() == device)
            return record;
    }
    return nullptr;
}

} // namespace zop
