// Every object of one layer and of the layers below it, linked on their own:
// a call from the layer to a layer above it leaves a symbol undefined and
// the build fails. The program is never run.
int main() { return 0; }
