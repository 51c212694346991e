// The build's resource tool.
//
//   lumbuild strings --header-dir DIR --map MAP --res RES FILE.rstr...
//       Assigns the string ids of all modules, writes one header per module (DIR/rstr/M.h),
//       the name map (UTF-16LE) and the string tables (.res).
//   lumbuild resources --out RES [--res IN.res]... [--rcdata NAME=FILE]...
//                      [--resource TYPE NAME=FILE]... [--identity]
//       Merges resources into one .res file; --identity adds LUM_TRX_FLAG and the build
//       identity LUM_TRX_GUID computed over everything else.
//   lumbuild section-address IMAGE
//       Prints the virtual address (image base included) at which a section appended to the
//       PE image starts, for objcopy --change-section-address.
//
// Outputs are rewritten only when their content changes, so unchanged headers do not cause
// recompilation.

#include "toolkit/base/LumStrings.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/res/LumResFile.h"
#include "toolkit/res/LumStringTables.h"
#include "tools/LumBuildIdentity.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteIfChanged(const fs::path& path, std::string_view content) {
    std::error_code ignored;
    if (fs::exists(path, ignored)) {
        std::vector<std::uint8_t> old = ReadBytes(path);
        if (std::string_view(reinterpret_cast<const char*>(old.data()), old.size()) == content) {
            return;
        }
    }
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path());
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void WriteIfChanged(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    WriteIfChanged(path,
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Options of the form --name VALUE, in order, plus the remaining plain arguments.
struct Arguments {
    std::multimap<std::string, std::string> Options;
    std::vector<std::string> Plain;
    std::vector<std::pair<std::string, std::string>> Resources; // --resource TYPE NAME=FILE
    bool Identity = false;

    std::string One(const std::string& name) const {
        auto it = Options.find(name);
        if (it == Options.end()) {
            throw std::runtime_error("missing --" + name);
        }
        return it->second;
    }
};

Arguments Parse(int argc, char** argv) {
    Arguments args;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--identity") {
            args.Identity = true;
        } else if (arg == "--resource") {
            if (i + 2 >= argc) {
                throw std::runtime_error("--resource needs TYPE and NAME=FILE");
            }
            args.Resources.emplace_back(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc) {
                throw std::runtime_error(arg + " needs a value");
            }
            args.Options.emplace(arg.substr(2), argv[++i]);
        } else {
            args.Plain.push_back(arg);
        }
    }
    return args;
}

std::pair<std::string, std::string> NameAndFile(const std::string& spec) {
    size_t eq = spec.find('=');
    if (eq == std::string::npos || eq == 0) {
        throw std::runtime_error("expected NAME=FILE, got " + spec);
    }
    return {spec.substr(0, eq), spec.substr(eq + 1)};
}

int Strings(const Arguments& args) {
    std::vector<TDeclaredString> all;
    std::vector<std::string> modules;
    for (const std::string& file : args.Plain) {
        std::string module = fs::path(file).stem().string();
        std::vector<std::uint8_t> content = ReadBytes(file);
        auto parsed = ParseStringDeclarations(
            module, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
            file);
        all.insert(all.end(), parsed.begin(), parsed.end());
        modules.push_back(module);
    }
    AssignStringIds(all);
    fs::path headerDir = args.One("header-dir");
    for (const std::string& module : modules) {
        WriteIfChanged(headerDir / "rstr" / (module + ".h"), ModuleHeaderText(module, all));
    }
    WriteIfChanged(args.One("map"), WriteNameMap(NameMapEntries(all)));
    WriteIfChanged(args.One("res"), WriteResFile(StringTableResources(all)));
    return 0;
}

TResId ResIdOf(const std::string& text) {
    bool numeric = !text.empty() && text.size() <= 5 &&
                   text.find_first_not_of("0123456789") == std::string::npos &&
                   std::stoul(text) <= 0xFFFF;
    return numeric ? TResId::Of(static_cast<std::uint16_t>(std::stoul(text)))
                   : TResId::Of(Utf8ToWide(text));
}

int Resources(const Arguments& args) {
    std::vector<TResEntry> entries;
    for (auto [it, end] = args.Options.equal_range("res"); it != end; ++it) {
        auto read = ReadResFile(ReadBytes(it->second));
        entries.insert(entries.end(), read.begin(), read.end());
    }
    auto addFile = [&](TResId type, const std::string& spec) {
        auto [name, file] = NameAndFile(spec);
        TResEntry entry;
        entry.Type = std::move(type);
        entry.Name = ResIdOf(name);
        entry.Data = ReadBytes(file);
        entries.push_back(std::move(entry));
    };
    for (auto [it, end] = args.Options.equal_range("rcdata"); it != end; ++it) {
        addFile(TResId::Of(kRtRcData), it->second);
    }
    for (const auto& [type, spec] : args.Resources) {
        addFile(ResIdOf(type), spec);
    }
    if (args.Identity) {
        entries.push_back(TranslationFlagResource());
        entries.push_back(BuildIdentityResource(BuildIdentity(entries)));
    }
    SortResEntries(entries);
    WriteIfChanged(args.One("out"), WriteResFile(entries));
    return 0;
}

int SectionAddress(const Arguments& args) {
    if (args.Plain.size() != 1) {
        throw std::runtime_error("section-address takes one image");
    }
    std::vector<std::uint8_t> bytes = ReadBytes(args.Plain[0]);
    auto image = TPeImage::Parse(bytes);
    if (!image) {
        throw std::runtime_error(args.Plain[0] + " is not a 32-bit PE image");
    }
    std::printf("0x%X\n", image->ImageBase() + image->NextSectionAddress());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        std::string command = argc > 1 ? argv[1] : "";
        Arguments args = Parse(argc, argv);
        if (command == "strings") {
            return Strings(args);
        }
        if (command == "resources") {
            return Resources(args);
        }
        if (command == "section-address") {
            return SectionAddress(args);
        }
        std::cerr << "usage: lumbuild strings|resources|section-address ...\n";
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "lumbuild: " << error.what() << "\n";
        return 1;
    }
}
