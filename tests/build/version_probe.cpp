// Carries the installer's resources built with the test's publisher fields; never run.
int main() { return 0; }
