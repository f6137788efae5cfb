// Message boxes that a test can see and answer.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace orvane::test {

class FakeMessageBox : public IMessageBox {
public:
    struct Box {
        HWND owner;
        std::string text;
        std::string caption;
        UINT type;
    };

    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
        boxes.push_back({owner, text, caption, type});
        if (onShow) onShow(boxes.back());
        return answer;
    }

    std::vector<Box> boxes;
    int answer = IDOK;
    std::function<void(const Box&)> onShow;
};

}  // namespace orvane::test
