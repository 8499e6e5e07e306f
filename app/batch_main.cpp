// zembrik-batch (being built).
int main() { return 0; }
