// placeholder, replaced by its real implementation
