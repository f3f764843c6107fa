// The .cfg codec lands here; the library exists now so the layering is fixed from the start.
namespace quillon_config_placeholder {
int Unused()
{
    return 0;
}
}  // namespace quillon_config_placeholder
