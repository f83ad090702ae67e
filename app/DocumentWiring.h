#pragma once
// Connects the document commands to the main window: New, Open, Save, Save
// As, files dropped on the window, the file named at start-up, the close
// question, the date and time double-clicks, About and Help Topics.
#include <QPointer>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "app/AboutBox.h"
#include "app/HelpWindow.h"
#include "document/DocumentCommands.h"
#include "platform/QtDateTimeSource.h"

namespace zop {

class TZop5Form;

class DocumentWiring {
public:
    // `display` redraws and measures for the commands; `clock` (optional)
    // replaces the system's date and time.
    DocumentWiring(TZop5Form& form, DisplayHooks display, DateTimeSource* clock = nullptr);
    ~DocumentWiring();
    DocumentWiring(const DocumentWiring&) = delete;
    DocumentWiring& operator=(const DocumentWiring&) = delete;

    DocumentCommands& Commands() { return m_commands; }
    // The writers of Save As's picture types; until set, those types report
    // that they are not available.
    void SetPictureFiles(PictureFiles& pictures) { m_commands.SetPictureFiles(pictures); }

    // Opens the waveform file named first (the system's bytes), if there is
    // one; a file that is refused is ignored without a message.
    void OpenStartupFile(const std::vector<std::string>& files);

    TAboutBox& AboutBox() { return *m_about; }
    // The help window, created on first use.
    HelpWindow& Help();

private:
    TZop5Form& m_form;
    QtDateTimeSource m_systemClock;
    NoPictureFiles m_noPictures;
    DocumentCommands m_commands;
    QPointer<TAboutBox> m_about;
    QPointer<HelpWindow> m_help;
};

} // namespace zop
