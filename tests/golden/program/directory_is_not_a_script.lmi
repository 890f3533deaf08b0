% Run under the name of a directory, which is not a script.
