// A structured storage held in memory, for walking the extraction through every road: nested storages,
// streams with given bytes, elements of other types, names no real container would hold, and a failure
// planted at any step. Every open is logged.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>
#include <vector>

struct CFakeElement
{
    std::wstring name;
    DWORD type = STGTY_STREAM;
    std::string data;                   // a stream's bytes
    std::vector<CFakeElement> children; // a storage's elements
    HRESULT hrOpen = S_OK;              // what OpenStream/OpenStorage answers
    HRESULT hrRead = S_OK;              // what the stream's second Read answers (the first delivers data)
    HRESULT hrEnum = S_OK;              // a storage's EnumElements
    int iNextFailure = -1;              // a storage's enumerator fails at this Next call
    HRESULT hrNext = E_FAIL;

    static CFakeElement Stream(std::wstring name, std::string data)
    {
        CFakeElement e;
        e.name = std::move(name);
        e.data = std::move(data);
        return e;
    }
    static CFakeElement Storage(std::wstring name, std::vector<CFakeElement> children)
    {
        CFakeElement e;
        e.name = std::move(name);
        e.type = STGTY_STORAGE;
        e.children = std::move(children);
        return e;
    }
};

struct CFakeStorageLog
{
    std::vector<std::wstring> opens; // "stream:name" / "storage:name"
    LONG cLive = 0;                  // storages, enumerators and streams not yet released
    std::wstring errorDescription;   // when set, storages answer IErrorInfo with it
    std::vector<std::wstring> argumentFaults; // calls whose arguments differ from the extraction's; each is refused
};

// A storage over root (whose children are its elements); the caller owns the returned reference.
IStorage* CreateFakeStorage(const CFakeElement& root, std::shared_ptr<CFakeStorageLog> log);
