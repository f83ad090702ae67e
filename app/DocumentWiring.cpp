#include "app/DocumentWiring.h"

#include "app/TZop5Form.h"

namespace zop {

DocumentWiring::DocumentWiring(TZop5Form& form, DisplayHooks display, DateTimeSource* clock)
    : m_form(form)
    , m_commands({ form.State(), form.Record(), form.Flags(), form.Cursors(), form.Incoming(), form.Ui() },
          std::move(display), m_noPictures, clock ? *clock : m_systemClock)
    , m_about(new TAboutBox(&form))
{
    TZop5Form::Handlers& on = form.On();
    const auto command = [&on](Cmd item) -> std::function<void()>& { return on.Commands[static_cast<size_t>(item)]; };
    command(Cmd::NewItem) = [this] { m_commands.NewItemClick(); };
    command(Cmd::OpenItem) = [this] { m_commands.OpenItemClick(); };
    command(Cmd::SaveItem) = [this] { m_commands.SaveItemClick(); };
    command(Cmd::SaveasItem) = [this] { m_commands.SaveasItemClick(); };
    command(Cmd::ExitItem) = [this] { m_commands.ExitItemClick(); };
    command(Cmd::AboutItem) = [this] { m_about->exec(); };
    command(Cmd::HelpTopicsItem) = [this] { Help().ShowContents(); };
    on.DateFieldDblClick = [this] { m_commands.DateFieldDblClick(); };
    on.TimeFieldDblClick = [this] { m_commands.TimeFieldDblClick(); };
    on.CloseQuery = [this] { return m_commands.FormCloseQuery(); };
    on.StartupFile = [this](const std::string& path) { m_commands.OpenStartupFile(path); };
    on.FilesDropped = [this](const std::vector<std::string>& paths) { m_commands.DropFiles(paths); };
}

DocumentWiring::~DocumentWiring()
{
    // The window may outlive the wiring (tests): nothing may call into it.
    TZop5Form::Handlers& on = m_form.On();
    for (Cmd item :
        { Cmd::NewItem, Cmd::OpenItem, Cmd::SaveItem, Cmd::SaveasItem, Cmd::AboutItem, Cmd::HelpTopicsItem })
        on.Commands[static_cast<size_t>(item)] = nullptr;
    on.Commands[static_cast<size_t>(Cmd::ExitItem)] = [form = &m_form] { form->close(); };
    on.DateFieldDblClick = nullptr;
    on.TimeFieldDblClick = nullptr;
    on.CloseQuery = nullptr;
    on.StartupFile = nullptr;
    on.FilesDropped = nullptr;
    for (EditField* field : { &m_form.State().Description, &m_form.State().DateField, &m_form.State().TimeField })
        field->OnChange = [flags = &m_form.Flags()] { flags->Modified = true; };
    delete m_about;
    delete m_help;
}

void DocumentWiring::OpenStartupFile(const std::vector<std::string>& files)
{
    if (files.empty() || files.front().empty())
        return;
    m_form.RunCommand([&] { m_commands.OpenStartupFile(files.front()); });
}

HelpWindow& DocumentWiring::Help()
{
    if (!m_help)
        m_help = new HelpWindow(&m_form);
    return *m_help;
}

} // namespace zop
