% Run under the name of a script that does not exist.
