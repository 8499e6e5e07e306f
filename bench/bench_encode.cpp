// Encoder benchmark (being built).
int main() { return 0; }
