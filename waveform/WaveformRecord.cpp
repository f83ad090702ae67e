#include "waveform/WaveformRecord.h"

namespace zop {

void ResetRecord(WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors)
{
    record = WaveformRecord {};
    flags.Modified = false;
    flags.ProbeChanged = false;
    cursors = CursorPositions {};
}

void ClearRecord(WaveformRecord& record, DocumentFlags& flags, CursorPositions& cursors, int32_t probeMenuFactor)
{
    record.FileName.clear();
    record.Samples.fill(0);
    record.ProbeFactor = probeMenuFactor;
    cursors = CursorPositions {};
    flags.ProbeChanged = false;
    flags.Modified = false;
}

} // namespace zop
