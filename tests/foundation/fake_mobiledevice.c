/* Takes the MobileDevice library's place in the framework loader's tests:
 * exports one device function. */
__attribute__((visibility("default"))) int AMDeviceConnect(void* device)
{
    (void)device;
    return 0;
}
