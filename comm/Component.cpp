#include "comm/Component.h"

#include "comm/Exception.h"

namespace zop {

void TComponent::Assign(const TComponent& source)
{
    // A class that knows how to copy another overrides this.
    throw Exception("Cannot assign a " + source.Name() + " to a " + Name());
}

} // namespace zop
