#pragma once
#include "shell/MessagePrompt.h"

#include <string>
#include <utility>
#include <vector>

// Records every box; questions get `answer`.
class FakeMessagePrompt : public IMessagePrompt
{
public:
    void ShowTopmostInformation(const std::wstring& caption, const std::wstring& text) override
    {
        shown.push_back({caption, text});
    }
    bool AskYesNo(const std::wstring& caption, const std::wstring& text) override
    {
        questions.push_back({caption, text});
        return answer;
    }

    bool answer = true;
    std::vector<std::pair<std::wstring, std::wstring>> shown;
    std::vector<std::pair<std::wstring, std::wstring>> questions;
};
