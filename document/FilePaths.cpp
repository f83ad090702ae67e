#include "document/FilePaths.h"

namespace zop {

namespace {

size_t ExtensionStart(std::string_view path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return path.size();
    const size_t slash = path.rfind('/');
    if (slash != std::string_view::npos && slash > dot)
        return path.size();
    return dot;
}

} // namespace

std::string_view FileExtension(std::string_view path)
{
    return path.substr(ExtensionStart(path));
}

std::string ChangeFileExtension(std::string_view path, std::string_view extension)
{
    std::string result(path.substr(0, ExtensionStart(path)));
    result += extension;
    return result;
}

std::string_view FileNameOnly(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace zop
