// A help engine that records its requests.
#pragma once

#include <string>
#include <vector>

#include "platform/Cursor.h"
#include "platform/Help.h"

namespace orvane::test {

class FakeHelp : public IHelp {
public:
    struct Request {
        HWND owner;
        std::string path;
        UINT command;
        DWORD data;
    };

    bool WinHelp(HWND owner, const std::string& path, UINT command, DWORD data) override {
        requests.push_back({owner, path, command, data});
        return accept;
    }

    std::vector<Request> requests;
    bool accept = true;
};

class FakeCursor : public ICursor {
public:
    void BeginWait() override { ++depth; ++begun; }
    void EndWait() override { --depth; }
    int depth = 0;
    int begun = 0;
};

}  // namespace orvane::test
