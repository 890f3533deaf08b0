var
