/* Built as planted.dll beside the test programs, as a DLL planted beside the launcher would lie: the
   DLL-search check asks only whether it can be loaded by its bare name. */
int plantedMarker(void) {
    return 1;
}
