// A plug-in whose factory declines to make an instance.

class GDynamicClass;

extern "C" __attribute__((visibility("default"))) GDynamicClass* NewInstance()
{
    return nullptr;
}
