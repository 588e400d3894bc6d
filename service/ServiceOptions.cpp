#include "ServiceOptions.h"

std::string ServiceOptions::Value(const std::string& name, const std::string& fallback) const
{
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            return args[i + 1];
        }
    }
    return fallback;
}

bool ServiceOptions::Flag(const std::string& name) const
{
    for (const auto& arg : args) {
        if (arg == name) {
            return true;
        }
    }
    return false;
}
