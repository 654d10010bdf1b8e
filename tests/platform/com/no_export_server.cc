// no_export_server.cc - a shared library that loads but exports no DllGetClassObject.
extern "C" __attribute__((visibility("default"))) int quillora_test_no_class_objects() { return 0; }
