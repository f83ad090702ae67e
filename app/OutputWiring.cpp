#include "app/OutputWiring.h"

#include <QGuiApplication>

#include "app/TZop5Form.h"

namespace zop {

OutputWiring::OutputWiring(TZop5Form& form, DocumentCommands& document)
    : m_form(form)
    , m_document(document)
    , m_clipboard(QGuiApplication::clipboard())
    , m_printer(&form)
    , m_pictures([&form] { return SheetFromWindow(form.State(), form.Record(), form.Cursors()); },
          [&form] { return form.Image1(); })
    , m_commands({ form.State(), form.Record(), form.Flags(), form.Cursors(), form.Incoming(), form.Ui() }, document,
          m_clipboard, m_printer)
{
    m_document.SetPictureFiles(m_pictures);
    TZop5Form::Handlers& on = form.On();
    auto bind = [&on](std::initializer_list<Cmd> controls, std::function<void()> handler) {
        for (Cmd control : controls)
            on.Commands[static_cast<size_t>(control)] = handler;
    };
    bind({ Cmd::CutItem, Cmd::CutBtn }, [this] { m_commands.CutItemClick(); });
    bind({ Cmd::CopyItem, Cmd::CopyBtn }, [this] { m_commands.CopyItemClick(); });
    bind({ Cmd::PasteItem, Cmd::PasteBtn }, [this] { m_commands.PasteItemClick(); });
    bind({ Cmd::PrintItem, Cmd::PrintBtn }, [this] { m_commands.PrintItemClick(); });
    on.EditMenuOpened = [this] { m_commands.EditMenuClick(); };
    on.Activated = [this] { m_commands.UpdatePasteAvailability(); };
    // As at window creation: Paste follows what the clipboard already holds.
    form.RunCommand([this] { m_commands.UpdatePasteAvailability(); });
}

OutputWiring::~OutputWiring()
{
    // The window may outlive the wiring (tests): nothing may call into it.
    TZop5Form::Handlers& on = m_form.On();
    for (Cmd control : { Cmd::CutItem, Cmd::CutBtn, Cmd::CopyItem, Cmd::CopyBtn, Cmd::PasteItem, Cmd::PasteBtn,
             Cmd::PrintItem, Cmd::PrintBtn })
        on.Commands[static_cast<size_t>(control)] = nullptr;
    on.EditMenuOpened = nullptr;
    on.Activated = nullptr;
    static NoPictureFiles none;
    m_document.SetPictureFiles(none);
}

} // namespace zop
