// module_test_base.cc - a library the test module depends on, whose export the module must not be seen to have.
extern "C" __attribute__((visibility("default"))) int base_only_export() { return 7; }
