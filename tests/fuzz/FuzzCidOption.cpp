// The display options the main page sends: an option change, the login's "cidOpt" and the
// document-ready sizes, read as the windows read them and applied to the popup options.
#include "FuzzInput.h"

#include "logic/CidOption.h"
#include "logic/CidPlacement.h"
#include "logic/JsonText.h"
#include "text/TextConv.h"

#include <cstdlib>
#include <exception>

namespace {

void CheckApplied(const CidDisplayOptions& options)
{
    if (options.nCidStartPos < kCidPosRightBottom || options.nCidStartPos > kCidPosLeftTop) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnsureUtf8Locale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Json::Value root;
    if (!ParseJsonText(PageTextFromBytes(data, size), root)) {
        return 0;
    }
    const CidDisplayOptions defaults;
    try {
        CheckApplied(CidApplyOption(defaults, CidOptionFromChange(root)));
    } catch (const std::exception&) {
    }
    try {
        if (const std::optional<CidOption> option = CidOptionFromLogin(root)) {
            CheckApplied(CidApplyOption(defaults, *option));
        }
    } catch (const std::exception&) {
    }
    try {
        (void)CidTypeSizesFromDocumentReady(root);
    } catch (const std::exception&) {
    }
    return 0;
}
