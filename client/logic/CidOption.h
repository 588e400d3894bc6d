#pragma once
#include <json/value.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The popup display options of one option message, as the main page window hands them to the
// popup manager (SetCidOption).
struct CidOption
{
    int nEnable = 1;
    int nEnableArsNoti = 1;
    int nType = 0;
    int nAutoCloseType = 0;
    int nAutoCloseTime = 0;
    int nOverlap = 0;
    std::string strPosition;
    int nWidth = 382;
    int nHeight = 202;
};

// The options the popup manager works with, as the option messages leave them.
struct CidDisplayOptions
{
    int nEnable = 1;
    int nEnableArsNoti = 1;
    int nCidType = 21;
    int nAutoCloseType = 1;
    int nAutoCloseTime = 20;
    int nOverlap = 0;
    int nCidStartPos = 1; // kCidPos* of CidPlacement.h
};

// The display options after one option message; a position that names no corner keeps the old
// start corner.
CidDisplayOptions CidApplyOption(const CidDisplayOptions& old, const CidOption& option);

// The readers below take what the page sent (already parsed) and return the values with the
// defaults of their message. They throw Json::LogicError when a member cannot be converted;
// every member is read before anything is returned, so a caller that lets it pass changes no
// option.

// FE_MAIN_CidOpt_Change: every key at the top level.
CidOption CidOptionFromChange(const Json::Value& root);

// FE_MAIN_Login: the keys inside "cidOpt", except "enableArsNoti", which the login carries at
// its top level; "autoCloseTime" defaults to 20 here. Empty when "cidOpt" is not an object.
std::optional<CidOption> CidOptionFromLogin(const Json::Value& login);

// FE_MAIN_Document_Ready: the rows (code, width, height) of the members "cid_typeSize_<code>"
// that are objects, in the order 10, 21, 22, 23, 24.
struct CidTypeSizeRow
{
    int nType;
    int nWidth;
    int nHeight;
};
std::vector<CidTypeSizeRow> CidTypeSizesFromDocumentReady(const Json::Value& root);
