#pragma once
// The 16 x 16 pictures of the tool-bar buttons and the program icon, drawn
// at start rather than shipped as image files.
#include <QIcon>

#include "document/FormState.h"

namespace zop {

// The picture of a tool button; an empty icon for the captioned probe buttons.
QIcon ToolIcon(Cmd button);
QIcon ProgramIcon();

} // namespace zop
