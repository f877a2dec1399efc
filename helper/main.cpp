// main: not written yet.
int main() { return 0; }
