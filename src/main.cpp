// The tarsil executable: hands the command line to the start-up code of the application core.
int main() { return 0; }
