// The game during timed runs: a windows-subsystem program, like RA3.exe, that exits at once.
int main() {
    return 0;
}
