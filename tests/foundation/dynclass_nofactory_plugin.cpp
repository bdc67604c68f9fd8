// A shared library that exports no factory: loading it as a plug-in fails.

extern "C" __attribute__((visibility("default"))) int NotAFactory()
{
    return 1;
}
