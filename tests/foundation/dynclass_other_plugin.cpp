// A second plug-in library, so that tests can hold objects of two libraries
// at once.

#include "Geometry/foundation/GDynamicClass.h"

namespace {

class OtherPlugin : public GDynamicClass {
public:
    const char* ___GetClassName() override { return "OtherPlugin"; }
    int GetType() override { return 8; }
};

} // namespace

extern "C" __attribute__((visibility("default"))) GDynamicClass* NewInstance()
{
    return new OtherPlugin();
}
