# Runs the package's testthat tests during R CMD check.
library(testthat)
library(kemro)

test_check("kemro")
