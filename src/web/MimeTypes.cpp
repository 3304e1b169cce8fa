#include "web/MimeTypes.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace quor::web {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

MimeTypes MimeTypes::Parse(const std::string& text) {
    MimeTypes table;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string type;
        if (!(words >> type) || type.find('/') == std::string::npos) continue;
        std::string extension;
        while (words >> extension) table.types_.emplace(Lower(extension), type);
    }
    return table;
}

MimeTypes MimeTypes::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return Parse(text.str());
}

std::string MimeTypes::ForFileName(const std::string& fileName) const {
    const std::size_t slash = fileName.find_last_of('/');
    const std::string base = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot == std::string::npos || dot + 1 == base.size()) return kDefaultContentType;
    const auto it = types_.find(Lower(base.substr(dot + 1)));
    return it == types_.end() ? kDefaultContentType : it->second;
}

}  // namespace quor::web
