// A static library needs one source of its own. The bitmaps are compiled by
// qt_add_resources into an object library that every consumer links, which registers
// them before main() runs, so no Q_INIT_RESOURCE call is needed anywhere.
