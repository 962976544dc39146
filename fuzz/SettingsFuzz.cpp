// The settings file: on any file the store finds (damaged, foreign, half-written), a series of
// writes of every kind reads back as written, through the store that wrote it and through a
// store opened afresh on the file; after a change the file on the disk equals the store's
// text; no write is given up. Section and key names are those a window could have: no line
// break, no "=" in a key, no "]" in a section, no key that starts like a header.
//
// Two things the file format cannot carry are left out of the exact checks: a text holding
// "┊" (A9 AE), part of the mark that stands for a stored line break, and two names whose
// ".ibn" files are named alike (bytes are expected per file name).

#include "FuzzSupport.h"

#include "settings/IniText.h"
#include "settings/SettingsStore.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

using namespace quillet;

namespace {

enum class Kind { Text, Number, Bool, Bytes };

struct Expected {
    Kind kind = Kind::Text;
    std::optional<std::string> value; // nothing: written, but not exactly readable
};

GbkText name(FuzzedDataProvider& in, bool section)
{
    static const GbkText common[] = {"Quillet", "\xB5\xEA\xC6\xCC\xB2\xC9\xBC\xAFID", "\xB1\xE0\xBC\xAD\xBF\xF2"};
    GbkText n = in.ConsumeBool() ? common[in.ConsumeIntegralInRange(0, 2)] : in.ConsumeRandomLengthString(12);
    std::erase_if(n, [&](char c) { return c == '\r' || c == '\n' || c == (section ? ']' : '='); });
    if (!section && !n.empty() && n[0] == '[')
        n[0] = '(';
    return n.empty() ? GbkText("k") : n;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void checkAll(settings::SettingsStore& store, const std::map<std::pair<GbkText, GbkText>, Expected>& model,
              const char* when)
{
    for (const auto& [where, expected] : model) {
        if (!expected.value)
            continue;
        store.selectSection(where.first);
        const std::string& v = *expected.value;
        std::string read;
        switch (expected.kind) {
        case Kind::Text: read = store.readText(where.second, "\x01"); break;
        case Kind::Number: read = settings::ini::formatNumber(store.readNumber(where.second, -1.5)); break;
        case Kind::Bool: read = store.readBool(where.second) ? "1" : "0"; break;
        case Kind::Bytes: read = store.readBytes(where.second, "\x01"); break;
        }
        fuzz::check(read == v, when,
                    "section " + fuzz::hex(where.first) + " key " + fuzz::hex(where.second) + ": " + fuzz::hex(read)
                        + " instead of " + fuzz::hex(v) + " in " + fuzz::hex(store.wholeText()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string& folder = fuzz::scratchFolder();
    const std::filesystem::path file = folder + "/settings.ini";
    std::error_code ec;
    std::filesystem::remove_all(folder + "/inibin", ec);
    fuzz::writeFile(file.native(), in.ConsumeRandomLengthString(512));

    std::map<std::pair<GbkText, GbkText>, Expected> model;
    std::map<GbkText, std::pair<GbkText, GbkText>> byteFiles; // file name -> the name last written there
    bool textChanged = false;
    {
        settings::SettingsStore store;
        fuzz::check(store.openStore(file.native()), "the store opens any file");
        while (in.remaining_bytes() > 0) {
            const GbkText section = name(in, true);
            const GbkText key = name(in, false);
            store.selectSection(section);
            Expected expected;
            bool written = false;
            switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: {
                const std::string value = in.ConsumeRandomLengthString(64);
                written = store.writeText(key, value);
                if (value.find("\xA9\xAE") == std::string::npos)
                    expected.value = value;
                break;
            }
            case 1: {
                const double value = in.ConsumeFloatingPoint<double>();
                expected.kind = Kind::Number;
                written = store.writeNumber(key, value);
                expected.value = settings::ini::formatNumber(std::isfinite(value) ? value : 0);
                break;
            }
            case 2: {
                const bool value = in.ConsumeBool();
                expected.kind = Kind::Bool;
                written = store.writeBool(key, value);
                expected.value = value ? "1" : "0";
                break;
            }
            default: {
                const std::string bytes = in.ConsumeRandomLengthString(64);
                expected.kind = Kind::Bytes;
                written = store.writeBytes(key, bytes);
                expected.value = bytes.empty() ? std::string("\x01") : bytes;
                const GbkText fileName = settings::ini::byteFileName(section, key);
                if (const auto it = byteFiles.find(fileName); it != byteFiles.end() && it->second != std::pair(section, key))
                    model[it->second].value.reset(); // overwritten through a name of the same file
                byteFiles[fileName] = {section, key};
                break;
            }
            }
            fuzz::check(written, "every write succeeds");
            textChanged = textChanged || expected.kind != Kind::Bytes;
            // A key written as another kind before now holds this kind's value.
            model[{section, key}] = expected;
            checkAll(store, model, "a value reads back from the store that wrote it");
        }
        // (A file that was only read keeps its own line ends until the first change.)
        fuzz::check(!textChanged || readFile(file) == store.wholeText(), "the file on the disk equals the store's text",
                    fuzz::hex(readFile(file)) + " / " + fuzz::hex(store.wholeText()));
    }
    settings::SettingsStore reopened;
    fuzz::check(reopened.openStore(file.native()), "the store opens its own file");
    checkAll(reopened, model, "a value reads back after the file was opened again");
    return 0;
}
