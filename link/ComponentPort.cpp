#include "link/ComponentPort.h"

#include <string>

namespace zop {

uint16_t ComponentPort::AddDataTrigger(std::string_view data, bool ignoreCase)
{
    return m_component.AddDataTrigger(std::string(data), ignoreCase);
}

uint16_t ComponentPort::FindDataTrigger(std::string_view data, bool ignoreCase) const
{
    return m_component.FindDataTrigger(std::string(data), ignoreCase);
}

void ApplyWindowPortSettings(TVskComPort& component)
{
    component.SetAutoOpen(false);
    component.SetComNumber(2);
    component.SetBaud(9600);
    component.SetParity(pNone);
    component.SetDataBits(8);
    component.SetStopBits(1);
    component.SetInSize(4096);
    component.SetOutSize(4096);
    component.SetDTR(true);
    component.SetRTS(true);
    component.SetSWFlowOptions(swfReceive);
    component.SetBufferFull(3686);
    component.SetBufferResume(409);
    component.SetTraceName("VSK.TRC");
    component.SetLogName("VSK.LOG");
    component.SetUseEventWord(false);
    component.SetTriggerLength(1);
    component.SetTapiMode(tmNone);
}

} // namespace zop
