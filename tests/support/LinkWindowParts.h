#pragma once
// The window's parts as the link's command tests assemble them: those of
// every command test, the transfer state, and the document commands (without
// picture files) that the link asks its save question through. A suite's own
// window adds its port and the link commands.
#include "link/LinkCommands.h"
#include "link/TransferState.h"
#include "tests/support/WindowParts.h"

namespace zop::test {

struct LinkWindowParts : WindowParts {
    TransferState Transfer;
    NoPictureFiles Pictures;
    DocumentCommands Documents { Parts(), {}, Pictures, Clock };

    zop::LinkParts LinkParts() { return { Form, Record, Flags, Transfer, Ui }; }
};

} // namespace zop::test
