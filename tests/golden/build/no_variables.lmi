build
