#include "identity/jsonfields.h"

// Boost 1.74's JSON reader still includes the old bind header, which otherwise prints a
// deprecation message in every build.
#define BOOST_BIND_GLOBAL_PLACEHOLDERS
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <sstream>

namespace Pinrova::Server::Identity {

namespace {

constexpr std::size_t MaxJsonBytes = 64 * 1024;
constexpr int MaxDepth = 8;

// Brackets outside strings, counted before the recursive parser sees the text.
bool nestsWithin(std::string_view json, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > maxDepth)
                return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return true;
}

} // namespace

std::optional<JsonFields> readJsonFields(std::string_view json, std::string_view member)
{
    if (json.size() > MaxJsonBytes || !nestsWithin(json, MaxDepth))
        return std::nullopt;
    namespace pt = boost::property_tree;
    pt::ptree tree;
    try {
        std::istringstream in {std::string(json)};
        pt::read_json(in, tree);
    } catch (const std::exception &) {
        return std::nullopt;
    }
    const pt::ptree *object = &tree;
    if (!member.empty()) {
        const auto child = tree.get_child_optional(pt::ptree::path_type(std::string(member), '\0'));
        if (!child)
            return std::nullopt;
        object = &*child;
    }
    // An array reads as children with empty names; a scalar document has none at all.
    if (object->empty() || object->begin()->first.empty())
        return std::nullopt;
    JsonFields fields;
    for (const auto &[name, value] : *object) {
        if (value.empty())
            fields.emplace(name, value.data());
    }
    return fields;
}

} // namespace Pinrova::Server::Identity
