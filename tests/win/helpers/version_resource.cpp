// Test helper: a program that does nothing and carries a version resource
// (version_resource.rc), copied by tests as an existing file with a known FileVersion.
int main() { return 0; }
