#include "brxtool/library_journal.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

constexpr char header[] = "brxtool library journal\n";

// Leaves the file where the next line is appended.
bool read_all(HANDLE file, std::string& text)
{
    std::vector<char> chunk(65536);
    DWORD got = 0;
    BOOL read = TRUE;
    while ((read = ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) && got > 0)
        text.append(chunk.data(), got);
    return read != FALSE;
}

// "key value" pairs after the event and the name.
std::map<std::string, std::string> pairs_of(std::istringstream& words)
{
    std::map<std::string, std::string> pairs;
    std::string key, value;
    while (words >> key >> value)
        pairs[key] = value;
    return pairs;
}

uint64_t number(const std::map<std::string, std::string>& pairs, const char* key)
{
    auto found = pairs.find(key);
    return found == pairs.end() ? 0 : std::strtoull(found->second.c_str(), nullptr, 10);
}

}  // namespace

void apply_journal_line(const std::string& line, journal_history_t& history)
{
    std::istringstream words(line);
    std::string event, name;
    if (!(words >> event >> name))
        return;
    const bool moving = event == "load" || event == "loaded" || event == "returned";
    if (!moving && event != "imaged" && event != "failed" && event != "unload")
        return;  // a header, or a line cut off by a crash
    history.known[name] = true;
    if (event == "failed")
        return;
    std::map<std::string, std::string> pairs = pairs_of(words);
    if (moving && pairs.count("slot") != 0)
        history.slots[name] = static_cast<uint16_t>(number(pairs, "slot"));
    if (event != "imaged" || pairs["sha256"].size() != 64 || pairs.count("file") == 0)
        return;
    history.images[name] = {pairs["file"],           number(pairs, "size"),  pairs["sha256"],
                            number(pairs, "records"), number(pairs, "bytes"), number(pairs, "skipped"),
                            number(pairs, "early") != 0, number(pairs, "list") != 0, number(pairs, "manifest") != 0};
}

journal_t::~journal_t()
{
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

bool journal_t::open(const std::string& path)
{
    file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string text;
    if (file == INVALID_HANDLE_VALUE || !read_all(file, text))
        return false;
    read_history(text);
    if (text.empty())
        return write(std::string(header, sizeof header - 2));
    // A line cut off by a crash is closed, so that the next one starts on its own.
    return text.back() == '\n' || write("");
}

void journal_t::read_history(const std::string& text)
{
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        apply_journal_line(text.substr(start, end - start), history);
}

bool journal_t::write(const std::string& line)
{
    std::lock_guard<std::mutex> guard(lock);
    const std::string text = line + "\n";
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size() &&
           FlushFileBuffers(file);
}
