#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tolvane {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::string OneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return out;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool MakeDirectories(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) errno = ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    const std::string parent = DirectoryOf(dir);
    if (parent != dir && !MakeDirectories(parent)) return false;
    return ::mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string SystemReason(int error) { return std::strerror(error); }

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::int32_t> LeadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= std::int64_t{INT32_MAX} + 1) value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::optional<std::uint32_t> LeadingHex(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") i += 2;
    std::uint32_t value = 0;
    const std::size_t first = i;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9' ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) break;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    if (i == first) return std::nullopt;
    return value;
}

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument doc;
    Section* current = nullptr;
    while (text.starts_with(kUtf8Mark)) text.remove_prefix(kUtf8Mark.size());
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

        const std::string_view line = Trim(raw);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name = Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
            doc.sections_.push_back(Section{std::string(name), {}});
            current = &doc.sections_.back();
            continue;
        }
        Line entry;
        const std::size_t eq = line.find('=');
        if (!line.empty() && line.front() != ';' && line.front() != '#' && eq != std::string_view::npos &&
            !Trim(line.substr(0, eq)).empty()) {
            entry.key = std::string(Trim(line.substr(0, eq)));
            entry.value = std::string(Trim(line.substr(eq + 1)));
        } else {
            entry.text = std::string(raw);
        }
        if (current != nullptr) {
            current->lines.push_back(std::move(entry));
        } else {
            doc.preamble_.push_back(std::string(raw));
        }
    }
    return doc;
}

std::string IniDocument::Serialize() const {
    std::string out;
    for (const std::string& line : preamble_) out += line + '\n';
    for (const Section& section : sections_) {
        out += '[' + section.name + "]\n";
        for (const Line& line : section.lines) {
            out += line.key.empty() ? line.text : line.key + '=' + line.value;
            out += '\n';
        }
    }
    return out;
}

bool IniDocument::Save(const std::string& requestedPath, std::string& problem) const {
    // Write through a link to the file it names, not over the link.
    std::string path = requestedPath;
    if (char* real = ::realpath(requestedPath.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    // Only a file is replaced: never a folder, a device or a pipe; nor a
    // file its owner made read-only, which the rename below would pass by.
    if (exists && !S_ISREG(old.st_mode)) {
        problem = S_ISDIR(old.st_mode) ? SystemReason(EISDIR) : "not a regular file";
        return false;
    }
    if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        problem = SystemReason(errno);
        return false;
    }
    const std::string dir = DirectoryOf(path);
    if (!MakeDirectories(dir)) {
        problem = SystemReason(errno);
        return false;
    }

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        problem = SystemReason(errno);
        return false;
    }
    (void)::fchmod(fd, exists ? old.st_mode & 07777 : 0644);
    int error = 0;
    if (!WriteAll(fd, Serialize()) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        problem = SystemReason(error);
        return false;
    }
    return true;
}

IniFile ReadIniFile(const std::string& path) {
    IniFile file;
    const auto unreadable = [](std::string reason) { return IniFile{FileState::Unreadable, std::move(reason), {}}; };
    // Not blocking: a pipe put where the file should be is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            file.state = FileState::Missing;
            return file;
        }
        return unreadable(SystemReason(errno));
    }
    std::string text;
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return unreadable("not a regular file");
    }
    char buffer[8192];
    while (error == 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno != EINTR) error = errno;
            continue;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error != 0) return unreadable(SystemReason(error));
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        return unreadable("the text is UTF-16; save it as UTF-8");
    }
    file.document = IniDocument::Parse(text);
    return file;
}

const IniDocument::Section* IniDocument::Find(std::string_view section) const {
    for (const Section& s : sections_) {
        if (SameName(s.name, section)) return &s;
    }
    return nullptr;
}

IniDocument::Section* IniDocument::Find(std::string_view section) {
    for (Section& s : sections_) {
        if (SameName(s.name, section)) return &s;
    }
    return nullptr;
}

std::optional<std::string> IniDocument::Value(std::string_view section, std::string_view key) const {
    // A name may head several sections in a hand-edited file: the first
    // section holding the key answers.
    for (const Section& s : sections_) {
        if (!SameName(s.name, section)) continue;
        for (const Line& line : s.lines) {
            if (!line.key.empty() && SameName(line.key, key)) return line.value;
        }
    }
    return std::nullopt;
}

std::int32_t IniDocument::GetInt(std::string_view section, std::string_view key, std::int32_t defaultValue) const {
    const std::string text = GetString(section, key, "", 4096);
    if (text.empty()) return defaultValue;
    return LeadingInt(text).value_or(0);
}

std::string IniDocument::GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                   std::size_t maxLength) const {
    const std::optional<std::string> raw = Value(section, key);
    std::string text = raw ? *raw : std::string(defaultValue);
    if (raw && text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    if (text.size() > maxLength) text.resize(maxLength);
    return text;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    Section* s = Find(section);
    if (s == nullptr) {
        sections_.push_back(Section{std::string(section), {}});
        s = &sections_.back();
    }
    for (Line& line : s->lines) {
        if (!line.key.empty() && SameName(line.key, key)) {
            line.value = OneLine(value);
            return;
        }
    }
    // Appended after the last key, ahead of trailing blank lines.
    std::size_t at = s->lines.size();
    while (at > 0 && s->lines[at - 1].key.empty() && Trim(s->lines[at - 1].text).empty()) --at;
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::string(key), OneLine(value), {}});
}

void IniDocument::SetInt(std::string_view section, std::string_view key, std::int32_t value) {
    Set(section, key, std::to_string(value));
}

void IniDocument::DeleteSection(std::string_view section) {
    std::erase_if(sections_, [section](const Section& s) { return SameName(s.name, section); });
}

}  // namespace tolvane
