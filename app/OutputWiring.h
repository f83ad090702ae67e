#pragma once
// Connects the output commands to the main window: Cut, Copy, Paste with the
// system clipboard, Paste availability on activation, deactivation and the
// Edit menu, Print with the print dialog, and Save As's picture files.
#include "app/OutputQt.h"
#include "output/OutputCommands.h"

namespace zop {

class TZop5Form;

class OutputWiring {
public:
    // Also gives `document` the picture writers of Save As.
    OutputWiring(TZop5Form& form, DocumentCommands& document);
    ~OutputWiring();
    OutputWiring(const OutputWiring&) = delete;
    OutputWiring& operator=(const OutputWiring&) = delete;

    OutputCommands& Commands() { return m_commands; }

private:
    TZop5Form& m_form;
    DocumentCommands& m_document;
    QtWaveformClipboard m_clipboard;
    QtPagePrinter m_printer;
    QtPictureFiles m_pictures;
    OutputCommands m_commands;
};

} // namespace zop
