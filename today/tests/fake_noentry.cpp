// A library that is no Today item: it lacks the initialisation entry.
extern "C" __attribute__((visibility("default"))) int NotAnItem() {
    return 1;
}
