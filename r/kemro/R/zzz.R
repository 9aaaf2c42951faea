# Package load: ggplot2 is only suggested, so its autoplot generic gets the
# distribution's method when ggplot2 is installed, now or when it loads later.

.onLoad <- function(libname, pkgname) {
  register_s3_method("ggplot2", "autoplot", "kemro_distribution")
  invisible()
}

# Registers kemro's `generic.class` method for `generic` of package `pkg`:
# at once if `pkg` is loaded, else when it loads. Nothing if it is not installed.
register_s3_method <- function(pkg, generic, class) {
  if (!nzchar(system.file(package = pkg))) return(invisible())
  method <- get(paste0(generic, ".", class), envir = environment(register_s3_method))
  register <- function(...) {
    registerS3method(generic, class, method, envir = asNamespace(pkg))
  }
  if (isNamespaceLoaded(pkg)) register()
  setHook(packageEvent(pkg, "onLoad"), register)
}
