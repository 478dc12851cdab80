#include "support/environment.h"

#include <cstdlib>

namespace measure::test {

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        hadValue_ = true;
        previous_ = old;
    }
    setEnvironment(name, value);
}

ScopedEnvironment::~ScopedEnvironment() {
    setEnvironment(name_.c_str(), hadValue_ ? previous_.c_str() : nullptr);
}

}  // namespace measure::test
