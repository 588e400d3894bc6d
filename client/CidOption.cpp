#include "CidOption.h"

#include "JsonText.h"

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

} // namespace

CidOption CidOptionFromChange(const Json::Value& root)
{
    CidOption option;
    option.nEnable = JsonGetInt(root, "enable", 1);
    option.nEnableArsNoti = JsonGetInt(root, "enableArsNoti", 1);
    option.nType = JsonGetInt(root, "type", 0);
    ReadTypeSize(root, option);
    option.nAutoCloseType = JsonGetInt(root, "autoCloseType", 0);
    option.nAutoCloseTime = JsonGetInt(root, "autoCloseTime", 0);
    option.nOverlap = JsonGetInt(root, "overlap", 0);
    option.strPosition = JsonGetTextA(root, "position");
    return option;
}

std::optional<CidOption> CidOptionFromLogin(const Json::Value& login)
{
    const Json::Value* pCidOpt = JsonGetObject(login, "cidOpt");
    if (pCidOpt == nullptr) {
        return std::nullopt;
    }
    const Json::Value& cidOpt = *pCidOpt;
    CidOption option;
    option.nEnable = JsonGetInt(cidOpt, "enable", 1);
    // The login keeps this switch beside "cidOpt", not inside it.
    option.nEnableArsNoti = JsonGetInt(login, "enableArsNoti", 1);
    option.nType = JsonGetInt(cidOpt, "type", 0);
    ReadTypeSize(cidOpt, option);
    option.nAutoCloseType = JsonGetInt(cidOpt, "autoCloseType", 0);
    option.nAutoCloseTime = JsonGetInt(cidOpt, "autoCloseTime", 20);
    option.nOverlap = JsonGetInt(cidOpt, "overlap", 0);
    option.strPosition = JsonGetTextA(cidOpt, "position");
    return option;
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
