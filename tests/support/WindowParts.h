#pragma once
// The window's parts as the command tests assemble them: the form, the
// record and its flags, the cursors, the incoming image, a scripted user
// interface and a fixed clock. A suite's own window adds its commands over
// these and keeps only what is its own.
#include <string>
#include <utility>

#include "document/DocumentCommands.h"
#include "document/FormState.h"
#include "tests/support/FixedClock.h"
#include "tests/support/ScriptedUserInterface.h"
#include "waveform/ScaleTables.h"
#include "waveform/WaveformRecord.h"

namespace zop::test {

// `image` as a completed transfer shows it: untitled, dated by `clock`,
// under the probe menu's factor, the crosses left where they are, unsaved.
inline ShownWaveform ReceivedWaveform(IncomingImage image, DateTimeSource& clock, int32_t probeFactor)
{
    ShownWaveform waveform;
    waveform.Caption = "Tracelet - [Untitled]";
    waveform.Image = std::move(image);
    waveform.Image.Description.clear();
    waveform.Image.Date = clock.CurrentDate();
    waveform.Image.Time = clock.CurrentTime();
    waveform.Image.ProbeFactor = probeFactor;
    waveform.TakesCursors = false;
    waveform.CountsAsSaved = false;
    return waveform;
}

struct WindowParts {
    FormState Form;
    WaveformRecord Record;
    DocumentFlags Flags;
    CursorPositions Cursors;
    IncomingImage Incoming;
    ScriptedUserInterface Ui;
    FixedClock Clock;

    DocumentParts Parts() { return { Form, Record, Flags, Cursors, Incoming, Ui }; }

    // A typical received waveform as a file or the clipboard brings it back:
    // a described and dated clock line rising from 50 under the x1 probe,
    // three of its four crosses placed.
    static IncomingImage ClockLine()
    {
        IncomingImage image;
        for (size_t i = 0; i < SampleCount; ++i)
            image.Samples[i] = static_cast<int32_t>(50 + i);
        image.TimeIndex = 7;
        image.VoltIndex = 4;
        image.ZeroRef = 120;
        image.ProbeFactor = 1;
        image.TimeLabel = std::string(TimeLabel(7));
        image.VoltsLabel = std::string(VoltsLabel(4, 1));
        image.Description = "Clock line";
        image.Date = "06-12-2026";
        image.Time = "17:00:00";
        image.IncomingCursors = { 40, 100, 120, -1 };
        return image;
    }

    // `image` shown by `commands` as the saved document `name`, as opening
    // that file shows it.
    void ShowSaved(DocumentCommands& commands, const std::string& name, IncomingImage image = ClockLine())
    {
        Incoming = std::move(image);
        commands.ApplyIncoming(name);
    }

    // `image` shown by `commands` as a completed transfer shows it.
    void ShowReceived(DocumentCommands& commands, IncomingImage image)
    {
        commands.ShowWaveform(ReceivedWaveform(std::move(image), Clock, Form.ProbeMenuFactor()));
    }
};

} // namespace zop::test
