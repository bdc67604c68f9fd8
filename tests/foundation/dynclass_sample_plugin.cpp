// A plug-in library for the loading tests: its factory makes an instance
// that reports a name and a type and lets its library go only while nobody
// holds a reference.

#include "Geometry/foundation/GDynamicClass.h"

namespace {

class SamplePlugin : public GDynamicClass {
public:
    const char* ___GetClassName() override { return "SamplePlugin"; }
    int GetType() override { return 7; }
    const char* GetName() override { return "sample"; }
    int MayBeUnload() override { return RefCount() <= 0 ? 1 : 0; }
};

} // namespace

extern "C" __attribute__((visibility("default"))) GDynamicClass* NewInstance()
{
    return new SamplePlugin();
}
