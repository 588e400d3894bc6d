#pragma once
#include <string>

// Modal message boxes of the client, behind an interface so start-up is tested without a display.
class IMessagePrompt
{
public:
    virtual ~IMessagePrompt() = default;
    // An information box with one OK button that stays above other windows.
    virtual void ShowTopmostInformation(const std::wstring& strCaption,
                                        const std::wstring& strText) = 0;
    // A topmost question with Yes and No and the information icon; true for Yes.
    virtual bool AskYesNo(const std::wstring& strCaption, const std::wstring& strText) = 0;
};

class QtMessagePrompt : public IMessagePrompt
{
public:
    void ShowTopmostInformation(const std::wstring& strCaption,
                                const std::wstring& strText) override;
    bool AskYesNo(const std::wstring& strCaption, const std::wstring& strText) override;
};
