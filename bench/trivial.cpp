// The floor a run is measured against: a program that starts and ends,
// built with the same compiler and flags as Velnari and VelnariL.
int main() {
    return 0;
}
