// Preloaded into every process of a sanitized test run. LeakSanitizer reports at exit, after
// Qt and Mesa have unloaded their plugins and drivers, and a leak from a library that is gone
// shows as "<unknown module>", which no suppression can name. Keeping every library loaded
// until the process ends lets each report name the library that leaked.
extern "C" int dlclose(void *)
{
    return 0;
}
