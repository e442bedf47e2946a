// A program that does nothing: the file the trust tests sign and check.
int main() { return 0; }
