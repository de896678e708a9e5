// Entry routine of the intro.
int main() {
    return 0;
}
