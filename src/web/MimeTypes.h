#pragma once
// Content types of attachments by file extension, from the system's MIME
// table (Debian's media-types: "/etc/mime.types", lines of a type and its
// extensions, '#' comments).

#include <map>
#include <string>

namespace quor::web {

inline constexpr const char* kSystemMimeTypesPath = "/etc/mime.types";
inline constexpr const char* kDefaultContentType = "application/octet-stream";

class MimeTypes {
  public:
    MimeTypes() = default;
    // The table in text; later lines do not replace an extension's first type.
    static MimeTypes Parse(const std::string& text);
    // An unreadable file gives an empty table (every lookup the default).
    static MimeTypes Load(const std::string& path = kSystemMimeTypesPath);

    // The type for a file name's extension (case ignored), else
    // application/octet-stream.
    std::string ForFileName(const std::string& fileName) const;
    std::size_t Size() const { return types_.size(); }

  private:
    std::map<std::string, std::string> types_;  // lower-case extension -> type
};

}  // namespace quor::web
