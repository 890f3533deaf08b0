cd "no such"
