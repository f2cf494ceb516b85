in
