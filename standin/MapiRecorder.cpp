// A simple-MAPI library for tests: MAPISendMail writes down everything it is given and returns
// the code it is told to.
//
// The record goes to the file named by the environment variable LUM_MAPI_RECORD (replaced on
// every call; nothing is written without the variable). One line per field: numbers as
// "name=123", texts as "name#<length>=<bytes>" (the bytes as given, so line breaks survive),
// null pointers as "name=null", and pointers to data that is not text as "name=set" or
// "name=null". The result is the decimal number in LUM_MAPI_RESULT, or 0 without it.

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"

#include <mapi.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length < 1024 ? std::wstring(value, length) : std::wstring();
}

class TRecord {
  public:
    void Number(const std::string& name, unsigned long value) {
        text_ += name + "=" + std::to_string(value) + "\n";
    }
    void Text(const std::string& name, const char* value) {
        if (!value) {
            text_ += name + "=null\n";
            return;
        }
        std::string bytes(value);
        text_ += name + "#" + std::to_string(bytes.size()) + "=" + bytes + "\n";
    }
    void Text(const std::string& name, const wchar_t* value) {
        if (!value) {
            Text(name, static_cast<const char*>(nullptr));
            return;
        }
        int size = WideCharToMultiByte(CP_UTF8, 0, value, -1, nullptr, 0, nullptr, nullptr);
        std::string bytes(static_cast<size_t>(size > 0 ? size : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, value, -1, bytes.data(), size, nullptr, nullptr);
        Text(name, bytes.c_str());
    }
    void Pointer(const std::string& name, const void* value) {
        text_ += name + (value ? "=set\n" : "=null\n");
    }
    template <class Desc> void Party(const std::string& name, const Desc& party) {
        Number(name + ".reserved", party.ulReserved);
        Number(name + ".class", party.ulRecipClass);
        Text(name + ".name", party.lpszName);
        Text(name + ".address", party.lpszAddress);
        Number(name + ".eidsize", party.ulEIDSize);
        Pointer(name + ".eid", party.lpEntryID);
    }

    void WriteTo(const std::wstring& path) const {
        TScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        // A test that finds no record fails on its own; the library has nobody to tell.
        if (file) {
            WriteFile(file.Get(), text_.data(), static_cast<DWORD>(text_.size()), &written,
                      nullptr);
        }
    }

  private:
    std::string text_;
};

template <class Message>
ULONG Record(ULONG_PTR session, ULONG_PTR uiParam, Message* message, FLAGS flags, ULONG reserved,
             TRecord record) {
    record.Number("session", session);
    record.Number("parent", uiParam);
    record.Number("flags", flags);
    record.Number("reserved", reserved);
    record.Pointer("message", message);
    if (message) {
        record.Number("message.reserved", message->ulReserved);
        record.Text("subject", message->lpszSubject);
        record.Text("note", message->lpszNoteText);
        record.Text("type", message->lpszMessageType);
        record.Text("date", message->lpszDateReceived);
        record.Text("conversation", message->lpszConversationID);
        record.Number("message.flags", message->flFlags);
        record.Pointer("originator", message->lpOriginator);
        if (message->lpOriginator) {
            record.Party("originator", *message->lpOriginator);
        }
        record.Number("recipients", message->nRecipCount);
        record.Pointer("recipients.array", message->lpRecips);
        for (ULONG i = 0; message->lpRecips && i < message->nRecipCount; ++i) {
            record.Party("recipient" + std::to_string(i), message->lpRecips[i]);
        }
        record.Number("files", message->nFileCount);
        record.Pointer("files.array", message->lpFiles);
        for (ULONG i = 0; message->lpFiles && i < message->nFileCount; ++i) {
            const auto& file = message->lpFiles[i];
            std::string name = "file" + std::to_string(i);
            record.Number(name + ".reserved", file.ulReserved);
            record.Number(name + ".flags", file.flFlags);
            record.Number(name + ".position", file.nPosition);
            record.Text(name + ".path", file.lpszPathName);
            record.Text(name + ".name", file.lpszFileName);
            record.Pointer(name + ".type", file.lpFileType);
        }
    }
    std::wstring path = Environment(L"LUM_MAPI_RECORD");
    if (!path.empty()) {
        record.WriteTo(path);
    }
    return std::wcstoul(Environment(L"LUM_MAPI_RESULT").c_str(), nullptr, 10);
}

} // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags,
                 ULONG reserved) {
    return Record(session, uiParam, message, flags, reserved, TRecord());
}

#ifdef STANDIN_MAPI_WIDE

namespace {

// The Unicode message, as documented; the platform headers here have only the ANSI one.
struct MapiRecipDescW {
    ULONG ulReserved;
    ULONG ulRecipClass;
    PWSTR lpszName;
    PWSTR lpszAddress;
    ULONG ulEIDSize;
    LPVOID lpEntryID;
};
struct MapiFileDescW {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;
    PWSTR lpszPathName;
    PWSTR lpszFileName;
    LPVOID lpFileType;
};
struct MapiMessageW {
    ULONG ulReserved;
    PWSTR lpszSubject;
    PWSTR lpszNoteText;
    PWSTR lpszMessageType;
    PWSTR lpszDateReceived;
    PWSTR lpszConversationID;
    FLAGS flFlags;
    MapiRecipDescW* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDescW* lpRecips;
    ULONG nFileCount;
    MapiFileDescW* lpFiles;
};

} // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMailW(LHANDLE session, ULONG_PTR uiParam, MapiMessageW* message, FLAGS flags,
                  ULONG reserved) {
    TRecord record;
    record.Number("unicode", 1);
    return Record(session, uiParam, message, flags, reserved, std::move(record));
}

#endif
