#pragma once
#include "InProcessService.h"

#include <string>
#include <utility>
#include <vector>

// The stand-in service with only its version check and installer download, started with the
// given "--update-*" options.
inline InProcessService::Setup UpdateRoutesOnly(std::vector<std::string> args)
{
    InProcessService::Setup setup;
    setup.bPages = false;
    setup.bUpdates = true;
    setup.options.args = std::move(args);
    return setup;
}
