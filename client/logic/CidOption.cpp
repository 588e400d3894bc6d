#include "logic/CidOption.h"

#include "logic/CidPlacement.h"
#include "logic/JsonText.h"

#include <cstdio>

namespace {

// A "typeSize" that is not an object stands for the standard popup size.
void ReadTypeSize(const Json::Value& object, CidOption& option)
{
    const Json::Value typeSize = object.get("typeSize", 0);
    if (typeSize.isObject()) {
        option.nWidth = JsonGetInt(typeSize, "width", 0);
        option.nHeight = JsonGetInt(typeSize, "height", 0);
    } else {
        option.nWidth = 382;
        option.nHeight = 202;
    }
}

// The option members of `options`; the change message and the login differ only in where the
// ARS switch stands and in the default close delay.
CidOption ReadCidOption(const Json::Value& options, const Json::Value& arsHolder,
                        int nDefaultAutoCloseTime)
{
    CidOption option;
    option.nEnable = JsonGetInt(options, "enable", 1);
    option.nEnableArsNoti = JsonGetInt(arsHolder, "enableArsNoti", 1);
    option.nType = JsonGetInt(options, "type", 0);
    ReadTypeSize(options, option);
    option.nAutoCloseType = JsonGetInt(options, "autoCloseType", 0);
    option.nAutoCloseTime = JsonGetInt(options, "autoCloseTime", nDefaultAutoCloseTime);
    option.nOverlap = JsonGetInt(options, "overlap", 0);
    option.strPosition = JsonGetTextA(options, "position");
    return option;
}

} // namespace

CidDisplayOptions CidApplyOption(const CidDisplayOptions& old, const CidOption& option)
{
    CidDisplayOptions options = old;
    options.nEnable = option.nEnable;
    options.nEnableArsNoti = option.nEnableArsNoti;
    options.nCidType = option.nType;
    options.nOverlap = option.nOverlap;
    options.nAutoCloseType = option.nAutoCloseType;
    options.nAutoCloseTime = option.nAutoCloseTime;
    if (option.strPosition == "RB") {
        options.nCidStartPos = kCidPosRightBottom;
    } else if (option.strPosition == "RT") {
        options.nCidStartPos = kCidPosRightTop;
    } else if (option.strPosition == "LB") {
        options.nCidStartPos = kCidPosLeftBottom;
    } else if (option.strPosition == "LT") {
        options.nCidStartPos = kCidPosLeftTop;
    }
    return options;
}

CidOption CidOptionFromChange(const Json::Value& root)
{
    return ReadCidOption(root, root, 0);
}

std::optional<CidOption> CidOptionFromLogin(const Json::Value& login)
{
    const Json::Value* pCidOpt = JsonGetObject(login, "cidOpt");
    if (pCidOpt == nullptr) {
        return std::nullopt;
    }
    // The login keeps the ARS switch beside "cidOpt", not inside it.
    return ReadCidOption(*pCidOpt, login, 20);
}

std::vector<CidTypeSizeRow> CidTypeSizesFromDocumentReady(const Json::Value& root)
{
    std::vector<CidTypeSizeRow> rows;
    for (const int nType : {10, 21, 22, 23, 24}) {
        char szKey[32];
        std::snprintf(szKey, sizeof szKey, "cid_typeSize_%d", nType);
        const Json::Value member = root.get(szKey, 0);
        if (member.isObject()) {
            rows.push_back({nType, JsonGetInt(member, "width", 0), JsonGetInt(member, "height", 0)});
        }
    }
    return rows;
}
