#pragma once
// The base of the library's components: an owned, named object with a
// loading and a designing state, an after-loading hook and assignment of
// settings from another component. Nothing in this program designs or streams
// forms; code that builds a component from stored settings sets the loading
// state, sets the properties and calls Loaded().
#include <string>

namespace zop {

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr)
        : m_owner(owner)
    {
    }
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return m_owner; }
    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    bool Loading() const { return m_loading; }
    bool Designing() const { return m_designing; }
    // Marks the start of loading from stored settings; Loaded() ends it.
    void BeginLoading() { m_loading = true; }
    void SetDesigning(bool designing) { m_designing = designing; }

    // The after-loading hook: ends the loading state. Overrides call this first.
    virtual void Loaded() { m_loading = false; }
    // Copies the settings of another component of a compatible class.
    virtual void Assign(const TComponent& source);

private:
    TComponent* m_owner;
    std::string m_name;
    bool m_loading = false;
    bool m_designing = false;
};

} // namespace zop
